function h = chandle(numbers)
% CHANDLE  A vector of spardyn handle numbers, as "residual" and
% "chandlediagnewmark" take it.
%
%   h = chandle(n) wraps the handle numbers n (returned by
%   spardyn('chandleset', ...)) into a 1 x numel(n) handle vector.  Vectors
%   concatenate: [chandle(k) chandle([m c])] is a 1 x 3 vector.
%
%   Example:
%     k = spardyn('chandleset', 1, sparse_description(K));
%     m = spardyn('chandleset', 2, sparse_description(M));
%     r = zeros(n, 1);
%     spardyn('residual', r, chandle([m k]), u, v, a);
%
%   The module reads element i with remi(h, i).
  if nargin < 1, numbers = zeros(1, 0); end
  if ~isnumeric(numbers) || ~isreal(numbers)
    error('chandle:type', 'chandle: handle numbers must be real numbers');
  end
  h = class(struct('num', num2cell(double(numbers(:).'))), 'chandle');
end
